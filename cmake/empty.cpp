// Intentionally empty: shared libraries are linked from their static archives.
