The voting of the Sample Election 2024 runs from %BDS1 to %EDS1.

The candidates:
%CAND

Send a netmail to Korvamgr at 2:5020/999 with the subject
"Sample Election 2024" and one line naming your candidate and a password:
%CANF

Listed electors: %LALL.
