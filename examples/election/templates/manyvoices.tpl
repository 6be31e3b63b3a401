Your ballot is REFUSED: it names more than one candidate. Choose one.
