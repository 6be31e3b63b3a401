Your ballot is REFUSED: %FADR is listed on Hold in %NDLF.
