Ballots of the Sample Election 2024 (voting %BDS1 - %EDS1)

  Ballots received ......... %ALLB
  accepted ................ %VALD  (%VALE%%)
  refused ................. %INVD  (%INVE%%)%BRK$
    duplicates ............ %DUPE%DUPE$
    not in the list ....... %ADDA%ADDA$
    outside the electorate  %ADDI%ADDI$
    bad node .............. %NDLS%NDLS$
    late or early ......... %DATL%DATL$
    more than one choice .. %MANY%MANY$
    empty password ........ %PASE%PASE$
  help and check queries .. %AUX_%AUX_$
  cancelled by a revote ... %CANP%CANP$

Ballots received: %TALL%% of the number of listed electors (%LALL).
