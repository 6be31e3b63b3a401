Ballots accepted by the Kazan election robot so far: %VALD
