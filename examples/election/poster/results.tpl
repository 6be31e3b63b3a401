Results of the Sample Election 2024

%RESV

Electors whose votes were counted:
%QUOA

Passwords, by candidate:
%PASV

Ballots: %ALLB received, %VALD accepted, %INVD refused.
