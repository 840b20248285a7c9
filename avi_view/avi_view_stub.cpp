// Placeholder until this folder's first sources land.
