// Keeps the area's source list non-empty until its first routines land.
