Your ballot is REFUSED: send it with the UserID [%USID] in its subject.
