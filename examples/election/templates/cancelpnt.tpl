Hello, %TNAM!

Your vote in the Sample Election 2024 has been cancelled:
your boss node has voted, and one vote per node is counted.
