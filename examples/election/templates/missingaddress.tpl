Your ballot is REFUSED: %FADR is not listed in %NDLF.
