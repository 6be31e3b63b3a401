Your ballot is REFUSED: its subject must be "Sample Election 2024".
