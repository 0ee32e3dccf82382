#pragma once

#include <string>
#include <string_view>

// How a project directory is shown.
namespace ProjectName {

// The directory's name without the encoded home directory at its front (under /home/dev,
// "-home-dev-src-api" shows "src-api" and "-home-dev" shows "~"), otherwise as it stands; the
// encoding turns every character but a letter or digit into "-". Control characters escaped as
// in every report; "(top level)" for transcripts in the root itself.
std::string display(std::string_view directory, std::string_view home);

} // namespace ProjectName
