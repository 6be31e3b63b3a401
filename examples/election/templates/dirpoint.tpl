Your ballot is REFUSED: a point's ballot must travel through its boss node.
