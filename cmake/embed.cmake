# Embedding files into executables: filled in with the embedded-file registry.
