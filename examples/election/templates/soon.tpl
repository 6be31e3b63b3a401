Your ballot is REFUSED: it was written before the voting began on %SDAT.
