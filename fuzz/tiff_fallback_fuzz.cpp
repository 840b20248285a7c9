// Fuzz target for the picture loader's own TIFF reader, the path 16-bit grey
// takes: every TIFF input goes through TiffFallback (ReadTiffRaster and the
// conversion to 32 bits) under a name ending in "tif", after the header
// check LoadPicture makes first, and the picture is composed into a frame.
#include "fuzz/fuzz_input.h"
#include "fuzz/picture_use.h"
#include "picture/load_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzz::IsTiff(data, size)) return 0;
  const char* path = fuzz::InputFileNamed(data, size, "picture.tif");
  // The loader refuses a file unread when its header claims far more than
  // the file can hold.
  if (!path || !fuzz::WorthLoading(path)) return 0;
  std::unique_ptr<Bitmap> picture;
  TiffFallback(path, 2, picture);
  if (picture && picture->image()) fuzz::CheckAdmitted(*picture, size);
  fuzz::Compose(std::move(picture));
  return 0;
}
