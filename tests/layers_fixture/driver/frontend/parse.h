// Fixture: a frontend header.
