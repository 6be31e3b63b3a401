Your ballot is REFUSED: %FADR is not in the list of electors of this election.
