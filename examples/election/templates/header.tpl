Hello, %FNAM!

Your message of %FDAT from %FADR, subject "%SUBJ", has been judged
by the robot of the Sample Election 2024 (voting %SDAT - %EDAT).

