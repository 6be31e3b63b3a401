Your ballot is REFUSED: %FADR is listed as a private (Pvt) node in %NDLF.
