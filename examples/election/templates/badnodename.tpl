Your ballot is REFUSED: "%FNAM" is not the sysop name listed for %FADR in %NDLF.
