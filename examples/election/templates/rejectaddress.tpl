Your ballot is REFUSED: %FADR may not vote in this election.
