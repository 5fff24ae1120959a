// Fixture: an engine header.
