Your CHECK passed: a ballot from %FADR would be taken.
