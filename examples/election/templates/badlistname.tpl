Your ballot is REFUSED: the name "%FNAM" is not the one listed for %FADR.
