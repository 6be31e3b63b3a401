Your ballot is REFUSED: its routing (the Via lines) does not come from %FADR.
