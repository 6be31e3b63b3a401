Your ballot is REFUSED: it names no candidate of this election.
The candidates are:
%CAND
Write the chosen name at the start of a line.
