Your ballot is REFUSED: you have already changed your vote as often as
this election allows. Your last accepted vote stands.
