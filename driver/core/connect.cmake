# Connection handling sources are added here.
