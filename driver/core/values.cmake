# Value conversion sources are added here.
