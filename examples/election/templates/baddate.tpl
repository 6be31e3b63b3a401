Your ballot is REFUSED: its date (%FDAT) lies in the future.
