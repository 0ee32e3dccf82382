#include "store/treechanges.h"

void TreeChanges::merge(TreeChanges &&other)
{
    wholeTree = wholeTree || other.wholeTree ||
                files.size() + directories.size() + other.files.size() + other.directories.size() >
                    maxNames;
    if (wholeTree) {
        files.clear();
        directories.clear();
        return;
    }
    if (files.empty())
        files = std::move(other.files);
    else
        files.insert(files.end(), other.files.begin(), other.files.end());
    if (directories.empty())
        directories = std::move(other.directories);
    else
        directories.insert(directories.end(), other.directories.begin(), other.directories.end());
}
