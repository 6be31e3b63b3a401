Your ballot is REFUSED: its MSGID (%MSID) or REPLYTO does not match %FADR.
