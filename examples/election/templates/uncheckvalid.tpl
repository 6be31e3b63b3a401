Your ballot was taken from the unchecked inbound and has been recorded.

Processing log:
%CLOG
