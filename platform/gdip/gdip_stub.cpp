// Bitmaps and picture codecs: placeholder until the image services land.
