Your ballot is REFUSED: the e-mail address %EMAL is not in the list of electors.
