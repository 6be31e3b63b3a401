Audit: message from %FNAM, %FADR, dated %FDAT, subject "%SUBJ":
%CLOG
