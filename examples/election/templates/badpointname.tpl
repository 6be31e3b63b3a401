Your ballot is REFUSED: "%FNAM" is not the name listed for %FADR in %PNTF.
