// Why a picture file did not load, in words for the user. Looked for only
// after LoadPicture has given null, so loading itself stays as it is.
#pragma once

#include <string>

// "not found", "permission denied", "a folder, not a picture", "not a
// picture we read", "too large" or "damaged" (another system error in its
// own words). Reads at most the file's header. May be called from any thread.
std::string LoadFailureReason(const char* path);
