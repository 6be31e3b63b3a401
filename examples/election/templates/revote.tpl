Your CHANGED vote has been accepted; your earlier ballot is cancelled.

Processing log:
%CLOG
