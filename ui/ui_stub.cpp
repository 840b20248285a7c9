// Placeholder until the main dialog lands.
