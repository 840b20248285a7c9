// Compressors and frame decoders: placeholder until the codec services land.
