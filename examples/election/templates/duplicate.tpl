Your ballot is REFUSED as a duplicate: the same vote has already been counted.
