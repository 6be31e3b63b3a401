Your ballot is REFUSED: a vote from your node or point has already been counted.
