Your ballot is REFUSED: %FADR is listed as Down in %NDLF.
