#include "format/projectname.h"

#include "format/plaintext.h"

namespace ProjectName {

std::string display(std::string_view directory, std::string_view home)
{
    if (directory.empty())
        return "(top level)";
    while (home.size() > 1 && home.back() == '/')
        home.remove_suffix(1);
    std::string encoded(home);
    for (char &c : encoded) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum)
            c = '-';
    }
    if (encoded.size() > 1 && directory.starts_with(encoded)) {
        if (directory.size() == encoded.size())
            return "~";
        if (directory[encoded.size()] == '-' && directory.size() > encoded.size() + 1)
            return PlainText::visible(directory.substr(encoded.size() + 1));
    }
    return PlainText::visible(directory);
}

} // namespace ProjectName
