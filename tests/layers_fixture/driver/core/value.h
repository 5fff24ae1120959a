// Fixture: a core header.
