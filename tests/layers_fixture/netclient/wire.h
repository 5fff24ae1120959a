// Fixture: a client header.
