// AVI files: placeholder until the AVI services land.
