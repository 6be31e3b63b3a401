Your ballot is REFUSED: write your password after "!", as in

%CASH
