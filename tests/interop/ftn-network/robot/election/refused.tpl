Your ballot has been REFUSED by the Kazan election robot.
%CLOG
