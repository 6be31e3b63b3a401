How to vote in the Sample Election 2024:

Send a netmail to Korvamgr at 2:5020/999 with the subject
"Sample Election 2024", between %SDAT and %EDAT.
Write one line: the candidate's name, "!" and a password of your own:

%CASH

The candidates:
%CAND

Send %%CHECK on a line of its own to test your address before voting.
Electors are taken from %NDLF:
%NDLI
