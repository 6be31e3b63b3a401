Auxiliary message processed:
%CLOG
