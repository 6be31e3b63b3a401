%FNAM, your ballot has been ACCEPTED by the Kazan election robot.
