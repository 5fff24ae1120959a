// Fixture: a planner header.
