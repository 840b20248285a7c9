// What a dropped or pasted folder stands for: the pictures directly in it.
// Plain C++ and POSIX; safe on any thread.
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace ui {

// Whether path is a regular file that begins with the signature of a picture
// format the loader decodes (BMP, JPEG, PNG, GIF, TIFF). Anything else
// (folders, FIFOs, devices, sockets) is never opened, and the open itself
// cannot block.
bool HasPictureSignature(const std::string& path);

// Whether path names a folder (following a symbolic link).
bool IsFolder(const std::string& path);

// The pictures directly in folder, by signature, in natural order; hidden
// files and subfolders are left out. Empty when the folder cannot be read.
// Stops early, with what it has, once *aborted is true.
std::vector<std::string> PicturesInFolder(const std::string& folder, const std::atomic<bool>* aborted = nullptr);

// paths with each folder replaced by the pictures in it; other paths stay
// as given. Stops early once *aborted is true.
std::vector<std::string> ExpandFolders(const std::vector<std::string>& paths,
                                       const std::atomic<bool>* aborted = nullptr);

}  // namespace ui
