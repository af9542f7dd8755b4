"""Check an installer before it ships: run it under Wine as a user would and say what
happened (`sfxpack try`). Also the Wine session and UI probe runner of our tests."""
