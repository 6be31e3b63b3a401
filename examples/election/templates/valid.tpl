Your ballot has been ACCEPTED. Thank you for voting.

You may change your vote once before %EDAT: send a new ballot
with the same password.

Processing log:
%CLOG
