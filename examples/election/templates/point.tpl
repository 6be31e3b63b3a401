Your ballot is REFUSED: points do not vote in this election; ask your boss node.
