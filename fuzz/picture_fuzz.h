// One picture fuzz target: the input, when its signature routes it to the
// decoder under test, loaded as a list entry is loaded and then used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_input.h"
#include "fuzz/picture_use.h"
#include "picture/load_picture.h"

namespace fuzz {

inline int LoadAndUse(const std::uint8_t* data, std::size_t size) {
  const char* path = InputFile(data, size);
  if (!path || !WorthLoading(path)) return 0;
  // The loader probes the header again (what the look-ahead plans its
  // memory by) before decoding.
  std::unique_ptr<Bitmap> picture = LoadPicture(path);
  if (picture && picture->image()) CheckAdmitted(*picture, size);
  Compose(std::move(picture));
  return 0;
}

}  // namespace fuzz
