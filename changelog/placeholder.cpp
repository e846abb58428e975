namespace changelogLib {}
