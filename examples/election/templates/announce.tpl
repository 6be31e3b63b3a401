Hello, %TNAM!

You are an elector of the Sample Election 2024.
Voting runs from %SDAT to %EDAT. The candidates:
%CAND

To vote, send a netmail to Korvamgr at 2:5020/999 with the subject
"Sample Election 2024" and one line such as
%CASH
Send the subject %%HELP for instructions.
