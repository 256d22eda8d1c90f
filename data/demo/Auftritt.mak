# Kreisel-Beispiel: ein kleines Arrangement aus dem Eingang, ohne Fenster aufgenommen.
#   kreisel --headless --fast --macro Auftritt.mak --audio file:EINGANG.wav --export mix.wav
# Der Eingang sollte mindestens 16 Sekunden lang sein. DISPLAY zeigt seine ersten fünf Wörter. Alles nach dem letzten RETURN (hier: die
# ganze Datei) läuft einmal, sobald die Makros starten.

SET CBCorrectDCDrift OFF          # Gleichanteil des Eingangs behalten
SET CBUsePrepareTime OFF          # kein Vorlauf
SET CBUseFixedLoopTime OFF        # freie Länge für die erste Loop einer Gruppe
SET CBContinuousRecordingLoops OFF
SET CBMaxTimeLikeFirstLoop ON     # weitere Loops so lang wie die erste der Gruppe
SET CBUseLowerOutput OFF

DISPLAY Aufnahme A1 (2 Sek.)
SET SBRecord                      # A1 beginnt sofort
WAIT 2 SEC
SET SBRecord                      # A1 endet an der nächsten Blockgrenze
WAIT LOOPEND
DISPLAY A1 spielt, A2 vorgemerkt
SET SBRecord                      # A2 vormerken: beginnt am Loop-Anfang, dauert einen Durchlauf
WAIT LOOPEND
DISPLAY MAXLOOP Loops, neue Gruppe
SET ACTGROUP B                    # neue Gruppe B ...
SET SBRecord                      # ... mit Aufnahme ab dem nächsten Loop-Anfang
WAIT 3 SEC
SET SBRecord                      # B1 schließen
WAIT LOOPEND
DISPLAY Gruppe ACTGROUP spielt B1
WAIT 2 SEC
SET ACTGROUP A                    # zurück zu A am Ende des Durchlaufs
WAIT 2 SEC
DISPLAY Ende
SET ButtonStop
