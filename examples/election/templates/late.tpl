Your ballot is REFUSED: it was written after the voting ended on %EDAT.
