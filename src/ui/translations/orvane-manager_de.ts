<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>AddressDelegate</name>
    <message>
        <source>New address</source>
        <translation>Neue Adresse</translation>
    </message>
    <message>
        <source>Type the device&apos;s new IPv4 address and press Enter to move it; Escape, Tab or a click elsewhere sends nothing</source>
        <translation>Geben Sie die neue IPv4-Adresse des Geräts ein und drücken Sie Enter, um es umzustellen; Escape, Tab oder ein Klick woandershin sendet nichts</translation>
    </message>
    <message>
        <source>%1 is no IPv4 address: four numbers from 0 to 255, separated by dots. Escape leaves the address as it is.</source>
        <translation>%1 ist keine IPv4-Adresse: vier Zahlen von 0 bis 255, durch Punkte getrennt. Escape lässt die Adresse, wie sie ist.</translation>
    </message>
</context>
<context>
    <name>AssignDialog</name>
    <message>
        <source>Assign addresses</source>
        <translation>Adressen vergeben</translation>
    </message>
    <message>
        <source>Gives the selected devices consecutive addresses from the first one given</source>
        <translation>Gibt den ausgewählten Geräten fortlaufende Adressen ab der angegebenen ersten</translation>
    </message>
    <message>
        <source>First address:</source>
        <translation>Erste Adresse:</translation>
    </message>
    <message>
        <source>First address</source>
        <translation>Erste Adresse</translation>
    </message>
    <message>
        <source>The address the first device gets; the others follow</source>
        <translation>Die Adresse des ersten Geräts; die anderen folgen</translation>
    </message>
    <message>
        <source>Each selected device gets the next free address from here on</source>
        <translation>Jedes ausgewählte Gerät erhält ab hier die nächste freie Adresse</translation>
    </message>
    <message>
        <source>Devices and their new addresses</source>
        <translation>Geräte und ihre neuen Adressen</translation>
    </message>
    <message>
        <source>One row per device: serial, address now, new address and outcome</source>
        <translation>Eine Zeile je Gerät: Seriennummer, jetzige Adresse, neue Adresse und Ergebnis</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>New address</source>
        <translation>Neue Adresse</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>How many changes are done</source>
        <translation>Wie viele Änderungen erledigt sind</translation>
    </message>
    <message>
        <source>Start</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Sends the changes, each verified</source>
        <translation>Sendet die Änderungen, jede geprüft</translation>
    </message>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Starten</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Stops after the change under way</source>
        <translation>Hält nach der laufenden Änderung an</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>&amp;Abbrechen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Closes the dialog</source>
        <translation>Schließt den Dialog</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>umgestellt</translation>
    </message>
    <message>
        <source>already there</source>
        <translation>schon dort</translation>
    </message>
    <message>
        <source>not run</source>
        <translation>nicht ausgeführt</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>not sent: %1</source>
        <translation>nicht gesendet: %1</translation>
    </message>
    <message>
        <source>left at %1</source>
        <translation>auf %1 zurückgelassen</translation>
    </message>
    <message>
        <source>refused with code %1</source>
        <translation>abgelehnt mit Code %1</translation>
    </message>
    <message>
        <source>refused without a code</source>
        <translation>abgelehnt ohne Code</translation>
    </message>
    <message>
        <source>acknowledged, but still at its old address</source>
        <translation>bestätigt, aber noch auf seiner alten Adresse</translation>
    </message>
    <message>
        <source>not confirmed</source>
        <translation>nicht bestätigt</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>Outside the network</source>
        <translation>Außerhalb des Netzes</translation>
    </message>
    <message>
        <source>%1 is outside the networks of the selected devices; programs here will not reach them there. Give them addresses from it anyway?</source>
        <translation>%1 liegt außerhalb der Netze der ausgewählten Geräte; Programme hier erreichen sie dort nicht. Trotzdem Adressen daraus vergeben?</translation>
    </message>
    <message>
        <source>no free address left in the subnet</source>
        <translation>keine freie Adresse mehr im Subnetz</translation>
    </message>
    <message>
        <source>changing…</source>
        <translation>wird geändert…</translation>
    </message>
    <message>
        <source>device link error: %1</source>
        <translation>Fehler der Geräteverbindung: %1</translation>
    </message>
</context>
<context>
    <name>DetailsDock</name>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>The chosen device in full: serial, address, network, warnings, when it was last heard, hardware address (Ctrl+I shows or hides it)</source>
        <translation>Das gewählte Gerät vollständig: Seriennummer, Adresse, Netz, Warnungen, wann es zuletzt gehört wurde, Hardware-Adresse (Strg+I zeigt oder verbirgt es)</translation>
    </message>
    <message>
        <source>Details of the chosen device</source>
        <translation>Details des gewählten Geräts</translation>
    </message>
    <message>
        <source>One line per fact about the device chosen in the table; the text can be selected and copied</source>
        <translation>Eine Zeile je Angabe zum in der Tabelle gewählten Gerät; der Text lässt sich markieren und kopieren</translation>
    </message>
    <message>
        <source>No device chosen</source>
        <translation>Kein Gerät gewählt</translation>
    </message>
    <message>
        <source>Serial: %1</source>
        <translation>Seriennummer: %1</translation>
    </message>
    <message>
        <source>Serial (hex): %1</source>
        <translation>Seriennummer (hex): %1</translation>
    </message>
    <message>
        <source>Address: %1</source>
        <translation>Adresse: %1</translation>
    </message>
    <message>
        <source>Its serial also answers from: %1</source>
        <translation>Seine Seriennummer antwortet auch von: %1</translation>
    </message>
    <message>
        <source>Network: %1</source>
        <translation>Netz: %1</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
    <message>
        <source>Last heard: %1</source>
        <translation>Zuletzt gehört: %1</translation>
    </message>
    <message>
        <source>Last heard: %1; it did not answer the last search</source>
        <translation>Zuletzt gehört: %1; bei der letzten Suche antwortete es nicht</translation>
    </message>
    <message>
        <source>Hardware address: %1</source>
        <translation>Hardware-Adresse: %1</translation>
    </message>
    <message>
        <source>Hardware address: not in the workstation&apos;s neighbour table</source>
        <translation>Hardware-Adresse: nicht in der Nachbartabelle des Arbeitsplatzes</translation>
    </message>
    <message>
        <source>Warnings: none</source>
        <translation>Warnungen: keine</translation>
    </message>
    <message>
        <source>Warning: %1</source>
        <translation>Warnung: %1</translation>
    </message>
</context>
<context>
    <name>DeviceTableProxy</name>
    <message>
        <source>not heard in the last search</source>
        <translation>bei der letzten Suche nicht gehört</translation>
    </message>
    <message>
        <source>Network</source>
        <translation>Netz</translation>
    </message>
</context>
<context>
    <name>HistoryDock</name>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Every outcome, hint and warning since the program started, in full (Ctrl+H shows or hides it)</source>
        <translation>Jedes Ergebnis, jeder Hinweis und jede Warnung seit dem Programmstart, vollständig (Strg+H zeigt oder verbirgt ihn)</translation>
    </message>
    <message>
        <source>What happened</source>
        <translation>Was geschah</translation>
    </message>
    <message>
        <source>One row per outcome, hint or warning: its time and its whole text; Ctrl+C copies the rows selected</source>
        <translation>Eine Zeile je Ergebnis, Hinweis oder Warnung: Uhrzeit und ganzer Text; Strg+C kopiert die ausgewählten Zeilen</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Save history</source>
        <translation>Verlauf speichern</translation>
    </message>
    <message>
        <source>Saves the history as CSV</source>
        <translation>Speichert den Verlauf als CSV</translation>
    </message>
    <message>
        <source>&amp;Save history as CSV…</source>
        <translation>Verlauf als CSV &amp;speichern…</translation>
    </message>
    <message>
        <source>Save the history</source>
        <translation>Den Verlauf speichern</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Could not write %1</source>
        <translation>%1 konnte nicht geschrieben werden</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Orvane Manager</source>
        <translation>Orvane Manager</translation>
    </message>
    <message>
        <source>Finds the Orvane devices on every network of this workstation and changes their addresses</source>
        <translation>Findet die Orvane-Geräte in jedem Netz dieses Arbeitsplatzes und ändert ihre Adressen</translation>
    </message>
    <message>
        <source>Velqor - Orvane Manager</source>
        <translation>Velqor - Orvane Manager</translation>
    </message>
    <message>
        <source>Detected Orvanes</source>
        <translation>Gefundene Orvanes</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Shows only the devices whose serial, address, network or warnings hold this text (Ctrl+F)</source>
        <translation>Zeigt nur die Geräte, deren Seriennummer, Adresse, Netz oder Warnungen diesen Text enthalten (Strg+F)</translation>
    </message>
    <message>
        <source>Filter by serial, address or network (Ctrl+F)</source>
        <translation>Nach Seriennummer, Adresse oder Netz filtern (Strg+F)</translation>
    </message>
    <message>
        <source>Devices found</source>
        <translation>Gefundene Geräte</translation>
    </message>
    <message>
        <source>One row per device: serial, address, network; a warning sign marks a device with a problem. Enter or F2 edits the address, Ctrl+C copies the rows</source>
        <translation>Eine Zeile je Gerät: Seriennummer, Adresse, Netz; ein Warnzeichen markiert ein Gerät mit einem Problem. Enter oder F2 bearbeitet die Adresse, Strg+C kopiert die Zeilen</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Searches every network again (F5)</source>
        <translation>Durchsucht jedes Netz erneut (F5)</translation>
    </message>
    <message>
        <source>&amp;Refresh</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>Assign addresses</source>
        <translation>Adressen vergeben</translation>
    </message>
    <message>
        <source>Gives the selected devices consecutive addresses</source>
        <translation>Gibt den ausgewählten Geräten fortlaufende Adressen</translation>
    </message>
    <message>
        <source>&amp;Assign addresses…</source>
        <translation>Adressen &amp;vergeben…</translation>
    </message>
    <message>
        <source>Give the selected devices consecutive addresses</source>
        <translation>Den ausgewählten Geräten fortlaufende Adressen geben</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Exportieren</translation>
    </message>
    <message>
        <source>Saves the devices shown as CSV or as an Excel workbook</source>
        <translation>Speichert die angezeigten Geräte als CSV oder als Excel-Arbeitsmappe</translation>
    </message>
    <message>
        <source>&amp;Export…</source>
        <translation>&amp;Exportieren…</translation>
    </message>
    <message>
        <source>Save the listed devices as CSV</source>
        <translation>Die aufgeführten Geräte als CSV speichern</translation>
    </message>
    <message>
        <source>Import plan</source>
        <translation>Plan importieren</translation>
    </message>
    <message>
        <source>Opens an address plan (CSV, TSV, XLSX or ODS), checks it and runs it when asked</source>
        <translation>Öffnet einen Adressplan (CSV, TSV, XLSX oder ODS), prüft ihn und führt ihn auf Wunsch aus</translation>
    </message>
    <message>
        <source>&amp;Import plan…</source>
        <translation>Plan &amp;importieren…</translation>
    </message>
    <message>
        <source>Move devices as a CSV file of serials and addresses plans, after a check of every row</source>
        <translation>Geräte umstellen, wie es ein Plan aus Seriennummern und Adressen vorsieht, nachdem jede Zeile geprüft ist</translation>
    </message>
    <message>
        <source>Application Launcher</source>
        <translation>Programmstarter</translation>
    </message>
    <message>
        <source>&amp;Orvane: </source>
        <translation>&amp;Orvane: </translation>
    </message>
    <message>
        <source>Device to launch for</source>
        <translation>Gerät für den Start</translation>
    </message>
    <message>
        <source>The device a companion program is started for; it follows the table&apos;s current row</source>
        <translation>Das Gerät, für das ein Begleitprogramm gestartet wird; es folgt der aktuellen Zeile der Tabelle</translation>
    </message>
    <message>
        <source>A&amp;pplication: </source>
        <translation>&amp;Programm: </translation>
    </message>
    <message>
        <source>Application</source>
        <translation>Programm</translation>
    </message>
    <message>
        <source>The companion program to start</source>
        <translation>Das zu startende Begleitprogramm</translation>
    </message>
    <message>
        <source>Launch</source>
        <translation>Starten</translation>
    </message>
    <message>
        <source>Starts the chosen application with the chosen device&apos;s address</source>
        <translation>Startet das gewählte Programm mit der Adresse des gewählten Geräts</translation>
    </message>
    <message>
        <source>&amp;Launch</source>
        <translation>S&amp;tarten</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>The latest outcome, hint or warning</source>
        <translation>Das letzte Ergebnis, der letzte Hinweis oder die letzte Warnung</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>not sent: press Enter to move %1</source>
        <translation>nicht gesendet: Enter drücken, um %1 umzustellen</translation>
    </message>
    <message>
        <source>Search progress</source>
        <translation>Suchfortschritt</translation>
    </message>
    <message>
        <source>How much of the search&apos;s time has passed</source>
        <translation>Wie viel der Suchzeit vergangen ist</translation>
    </message>
    <message>
        <source>Waiting changes</source>
        <translation>Wartende Änderungen</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Shows or hides every outcome, hint and warning so far (Ctrl+H)</source>
        <translation>Zeigt oder verbirgt alle bisherigen Ergebnisse, Hinweise und Warnungen (Strg+H)</translation>
    </message>
    <message>
        <source>%1: %2 → %3: %4</source>
        <translation>%1: %2 → %3: %4</translation>
    </message>
    <message>
        <source>(not found)</source>
        <translation>(nicht gefunden)</translation>
    </message>
    <message>
        <source>%1 may be stranded at %2 (it was on its way from %3 to %4)</source>
        <translation>%1 steht womöglich noch auf %2 (es war auf dem Weg von %3 nach %4)</translation>
    </message>
    <message>
        <source>An earlier run did not end: %1; orvane-cli apply --resume takes them where they belong</source>
        <translation>Ein früherer Lauf endete nicht: %1; orvane-cli apply --resume bringt sie dorthin, wo sie hingehören</translation>
    </message>
    <message>
        <source>Address changes wait</source>
        <translation>Adressänderungen warten</translation>
    </message>
    <message numerus="yes">
        <source>%n address change(s) wait for the running operation.</source>
        <translation>
            <numerusform>%n Adressänderung wartet auf den laufenden Vorgang.</numerusform>
            <numerusform>%n Adressänderungen warten auf den laufenden Vorgang.</numerusform>
        </translation>
    </message>
    <message>
        <source>&amp;Send and quit</source>
        <translation>&amp;Senden und beenden</translation>
    </message>
    <message>
        <source>&amp;Discard and quit</source>
        <translation>&amp;Verwerfen und beenden</translation>
    </message>
    <message>
        <source>waits: %1 to %2</source>
        <translation>wartet: %1 nach %2</translation>
    </message>
    <message numerus="yes">
        <source>%n change(s) wait</source>
        <translation>
            <numerusform>%n Änderung wartet</numerusform>
            <numerusform>%n Änderungen warten</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 — %2</source>
        <translation>%1 — %2</translation>
    </message>
    <message>
        <source>No Orvanes found</source>
        <translation>Keine Orvanes gefunden</translation>
    </message>
    <message>
        <source> (%1 more answered beyond the list&apos;s limit)</source>
        <translation> (%1 weitere antworteten über die Grenze der Liste hinaus)</translation>
    </message>
    <message>
        <source>; %1 not heard (kept, greyed)</source>
        <translation>; %1 nicht gehört (behalten, grau)</translation>
    </message>
    <message>
        <source>; %1 answers lost: search again</source>
        <translation>; %1 Antworten verloren: erneut suchen</translation>
    </message>
    <message>
        <source>%1; fix: %2</source>
        <translation>%1; Abhilfe: %2</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>umgestellt</translation>
    </message>
    <message>
        <source>already there</source>
        <translation>schon dort</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>abgelehnt</translation>
    </message>
    <message>
        <source>not confirmed</source>
        <translation>nicht bestätigt</translation>
    </message>
    <message>
        <source>not sent</source>
        <translation>nicht gesendet</translation>
    </message>
    <message>
        <source>not run</source>
        <translation>nicht ausgeführt</translation>
    </message>
    <message>
        <source>cancelled</source>
        <translation>abgebrochen</translation>
    </message>
    <message>
        <source>left on another address</source>
        <translation>auf einer anderen Adresse zurückgelassen</translation>
    </message>
    <message>
        <source>%1 (not found)</source>
        <translation>%1 (nicht gefunden)</translation>
    </message>
    <message>
        <source>(no device shown)</source>
        <translation>(kein Gerät angezeigt)</translation>
    </message>
    <message>
        <source>Address in use</source>
        <translation>Adresse belegt</translation>
    </message>
    <message>
        <source>Another device answers from %1. Move %2 there anyway, to swap the two?</source>
        <translation>Ein anderes Gerät antwortet von %1. %2 trotzdem dorthin umstellen und die beiden tauschen?</translation>
    </message>
    <message>
        <source>%1 answers from %2. Swap the two: %3 to %2, and %1 to %4, where %3 is now?</source>
        <translation>%1 antwortet von %2. Die beiden tauschen: %3 nach %2 und %1 nach %4, wo %3 jetzt ist?</translation>
    </message>
    <message>
        <source>Another host (%1) answers for %2. Move %3 there anyway?</source>
        <translation>Ein anderer Rechner (%1) antwortet für %2. %3 trotzdem dorthin umstellen?</translation>
    </message>
    <message>
        <source>Outside the network</source>
        <translation>Außerhalb des Netzes</translation>
    </message>
    <message>
        <source>%1 is outside the networks of the interface %2 answers on; programs here will not reach it there. Move it there anyway?</source>
        <translation>%1 liegt außerhalb der Netze der Schnittstelle, auf der %2 antwortet; Programme hier erreichen es dort nicht. Trotzdem dorthin umstellen?</translation>
    </message>
    <message>
        <source>not sent: %1 stays where it is</source>
        <translation>nicht gesendet: %1 bleibt, wo es ist</translation>
    </message>
    <message>
        <source>Move into %1</source>
        <translation>In %1 umstellen</translation>
    </message>
    <message>
        <source>New address:</source>
        <translation>Neue Adresse:</translation>
    </message>
    <message>
        <source>Select the devices to address first</source>
        <translation>Wählen Sie zuerst die Geräte aus, die Adressen erhalten sollen</translation>
    </message>
    <message>
        <source>Export devices</source>
        <translation>Geräte exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;Excel workbooks, serials kept as text (*.xlsx)</source>
        <translation>CSV-Dateien (*.csv);;Excel-Arbeitsmappen, Seriennummern als Text (*.xlsx)</translation>
    </message>
    <message>
        <source>Exported %1 devices to %2</source>
        <translation>%1 Geräte nach %2 exportiert</translation>
    </message>
    <message>
        <source>Could not write %1</source>
        <translation>%1 konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>Import an address plan</source>
        <translation>Einen Adressplan importieren</translation>
    </message>
    <message>
        <source>Address plans (*.csv *.tsv *.txt *.xlsx *.ods);;CSV files (*.csv);;Tab-separated text (*.tsv *.txt);;Excel workbooks (*.xlsx);;OpenDocument spreadsheets (*.ods);;All files (*)</source>
        <translation>Adresspläne (*.csv *.tsv *.txt *.xlsx *.ods);;CSV-Dateien (*.csv);;Tabulatorgetrennter Text (*.tsv *.txt);;Excel-Arbeitsmappen (*.xlsx);;OpenDocument-Tabellen (*.ods);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Wait until the operation under way is over</source>
        <translation>Warten Sie, bis der laufende Vorgang beendet ist</translation>
    </message>
    <message>
        <source>Address plan</source>
        <translation>Adressplan</translation>
    </message>
    <message>
        <source>%1 is no address plan: %2</source>
        <translation>%1 ist kein Adressplan: %2</translation>
    </message>
    <message>
        <source>it cannot be read</source>
        <translation>die Datei kann nicht gelesen werden</translation>
    </message>
    <message>
        <source>Did not start %1: no device is chosen; choose one in the list</source>
        <translation>%1 nicht gestartet: kein Gerät gewählt; wählen Sie eines in der Liste</translation>
    </message>
    <message>
        <source>Did not start %1: %2 did not answer the last search; choose a device that is listed</source>
        <translation>%1 nicht gestartet: %2 antwortete bei der letzten Suche nicht; wählen Sie ein aufgeführtes Gerät</translation>
    </message>
    <message>
        <source>Could not start %1</source>
        <translation>%1 konnte nicht gestartet werden</translation>
    </message>
    <message>
        <source>Started %1; %2 is on a wrong subnet: it may not reach it</source>
        <translation>%1 gestartet; %2 liegt in einem falschen Subnetz: es erreicht das Gerät womöglich nicht</translation>
    </message>
    <message>
        <source>Details</source>
        <translation>Details</translation>
    </message>
    <message>
        <source>Shows or hides the chosen device in full (Ctrl+I)</source>
        <translation>Zeigt oder verbirgt das gewählte Gerät vollständig (Strg+I)</translation>
    </message>
    <message>
        <source>%1; %2</source>
        <translation>%1; %2</translation>
    </message>
    <message>
        <source>%1 Orvane found</source>
        <translation>%1 Orvane gefunden</translation>
    </message>
    <message>
        <source>%1 Orvanes found</source>
        <translation>%1 Orvanes gefunden</translation>
    </message>
    <message>
        <source>No device chosen: choose one in the table first</source>
        <translation>Kein Gerät gewählt: wählen Sie zuerst eines in der Tabelle</translation>
    </message>
    <message>
        <source>Devices shown</source>
        <translation>Angezeigte Geräte</translation>
    </message>
    <message>
        <source>How many of the devices listed the filter shows</source>
        <translation>Wie viele der aufgeführten Geräte der Filter zeigt</translation>
    </message>
    <message>
        <source>%1 of %2 shown</source>
        <translation>%1 von %2 angezeigt</translation>
    </message>
    <message>
        <source>%1 no longer answers; %2 is chosen now</source>
        <translation>%1 antwortet nicht mehr; jetzt ist %2 gewählt</translation>
    </message>
</context>
<context>
    <name>OrvaneModel</name>
    <message>
        <source>Serial</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>IP</source>
        <translation>IP</translation>
    </message>
    <message>
        <source>IP updated succesfully</source>
        <translation>IP erfolgreich geändert</translation>
    </message>
    <message>
        <source>; %1 took its place</source>
        <translation>; %1 nahm seinen Platz ein</translation>
    </message>
    <message>
        <source>; %1 is link-local: only hosts on the same link reach it</source>
        <translation>; %1 ist link-lokal: nur Rechner an derselben Verbindung erreichen es</translation>
    </message>
    <message>
        <source>Could not change IP</source>
        <translation>IP konnte nicht geändert werden</translation>
    </message>
    <message>
        <source>IP change not confirmed: the device acknowledged, but still answers at its old address</source>
        <translation>IP-Änderung nicht bestätigt: das Gerät hat bestätigt, antwortet aber noch auf seiner alten Adresse</translation>
    </message>
    <message>
        <source>IP change not confirmed</source>
        <translation>IP-Änderung nicht bestätigt</translation>
    </message>
    <message>
        <source>Could not change IP: %1 did not move</source>
        <translation>IP konnte nicht geändert werden: %1 wurde nicht umgestellt</translation>
    </message>
    <message>
        <source>; the device is back at its old address</source>
        <translation>; das Gerät ist wieder auf seiner alten Adresse</translation>
    </message>
    <message>
        <source>Could not change IP: the device was left at %1; orvane-cli apply --resume takes it on</source>
        <translation>IP konnte nicht geändert werden: das Gerät blieb auf %1; orvane-cli apply --resume übernimmt es</translation>
    </message>
    <message>
        <source>Serial answered from several addresses</source>
        <translation>Seriennummer antwortete von mehreren Adressen</translation>
    </message>
    <message>
        <source>Could not change IP: %1</source>
        <translation>IP konnte nicht geändert werden: %1</translation>
    </message>
    <message>
        <source>Device link error: %1</source>
        <translation>Fehler der Geräteverbindung: %1</translation>
    </message>
</context>
<context>
    <name>PlanDialog</name>
    <message>
        <source>Address plan</source>
        <translation>Adressplan</translation>
    </message>
    <message>
        <source>The plan&apos;s rows as they would run, then as they ran</source>
        <translation>Die Zeilen des Plans, wie sie laufen würden, dann wie sie liefen</translation>
    </message>
    <message>
        <source>Summary</source>
        <translation>Übersicht</translation>
    </message>
    <message>
        <source>How many rows will move, are there already, cannot run or are left alone</source>
        <translation>Wie viele Zeilen umgestellt werden, schon dort sind, nicht laufen können oder unberührt bleiben</translation>
    </message>
    <message>
        <source>Plan rows</source>
        <translation>Zeilen des Plans</translation>
    </message>
    <message>
        <source>One row per line of the plan: line, serial, interface, from, to and status</source>
        <translation>Eine Zeile je Zeile des Plans: Zeile, Seriennummer, Schnittstelle, von, nach und Status</translation>
    </message>
    <message>
        <source>Line</source>
        <translation>Zeile</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>From</source>
        <translation>Von</translation>
    </message>
    <message>
        <source>To</source>
        <translation>Nach</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Save report</source>
        <translation>Bericht speichern</translation>
    </message>
    <message>
        <source>Saves the report as CSV, as orvane-cli apply writes it</source>
        <translation>Speichert den Bericht als CSV, wie orvane-cli apply ihn schreibt</translation>
    </message>
    <message>
        <source>&amp;Save report…</source>
        <translation>Bericht &amp;speichern…</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Ausführen</translation>
    </message>
    <message>
        <source>Sends the plan&apos;s changes, each verified</source>
        <translation>Sendet die Änderungen des Plans, jede geprüft</translation>
    </message>
    <message>
        <source>&amp;Run plan</source>
        <translation>Plan &amp;ausführen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Closes the plan</source>
        <translation>Schließt den Plan</translation>
    </message>
    <message>
        <source>C&amp;lose</source>
        <translation>&amp;Schließen</translation>
    </message>
    <message>
        <source>%1 rows: %2 will move, %3 are there already, %4 cannot run, %5 are left as they are. Nothing has been sent.</source>
        <translation>%1 Zeilen: %2 werden umgestellt, %3 sind schon dort, %4 können nicht laufen, %5 bleiben, wie sie sind. Nichts wurde gesendet.</translation>
    </message>
    <message>
        <source>%1 rows: %2 reached their address, %3 did not.</source>
        <translation>%1 Zeilen: %2 erreichten ihre Adresse, %3 nicht.</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>device link error: %1</source>
        <translation>Fehler der Geräteverbindung: %1</translation>
    </message>
    <message>
        <source>Save the plan&apos;s report</source>
        <translation>Den Bericht des Plans speichern</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Could not write %1</source>
        <translation>%1 konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>will-move</source>
        <translation>wird umgestellt</translation>
    </message>
    <message>
        <source>already-there</source>
        <translation>schon dort</translation>
    </message>
    <message>
        <source>not-sent</source>
        <translation>nicht gesendet</translation>
    </message>
    <message>
        <source>skipped</source>
        <translation>übersprungen</translation>
    </message>
    <message>
        <source>moved</source>
        <translation>umgestellt</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>abgelehnt</translation>
    </message>
    <message>
        <source>no-answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>not-moved</source>
        <translation>nicht umgestellt</translation>
    </message>
    <message>
        <source>not-confirmed</source>
        <translation>nicht bestätigt</translation>
    </message>
    <message>
        <source>not-run</source>
        <translation>nicht ausgeführt</translation>
    </message>
    <message>
        <source>stranded</source>
        <translation>zurückgelassen</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>velqor</name>
    <message>
        <source>another operation is running</source>
        <translation>ein anderer Vorgang läuft</translation>
    </message>
    <message>
        <source>no device can take that address</source>
        <translation>kein Gerät kann diese Adresse annehmen</translation>
    </message>
    <message>
        <source>the serial is too long to address</source>
        <translation>die Seriennummer ist zu lang, um das Gerät anzusprechen</translation>
    </message>
    <message>
        <source>the serial answered from several addresses, and every one of them would move</source>
        <translation>die Seriennummer antwortete von mehreren Adressen, und jede davon würde umgestellt</translation>
    </message>
    <message>
        <source>that is the network address of the device&apos;s subnet</source>
        <translation>das ist die Netzadresse des Subnetzes des Geräts</translation>
    </message>
    <message>
        <source>that is the broadcast address of the device&apos;s subnet</source>
        <translation>das ist die Broadcast-Adresse des Subnetzes des Geräts</translation>
    </message>
    <message>
        <source>that is this workstation&apos;s own address</source>
        <translation>das ist die eigene Adresse dieses Arbeitsplatzes</translation>
    </message>
    <message>
        <source>that is the gateway of a route of this workstation</source>
        <translation>das ist das Gateway einer Route dieses Arbeitsplatzes</translation>
    </message>
    <message>
        <source>another device answers from that address</source>
        <translation>ein anderes Gerät antwortet von dieser Adresse</translation>
    </message>
    <message>
        <source>another host answers for that address</source>
        <translation>ein anderer Rechner antwortet für diese Adresse</translation>
    </message>
    <message>
        <source>that address is outside the networks of the device&apos;s interface</source>
        <translation>diese Adresse liegt außerhalb der Netze der Schnittstelle des Geräts</translation>
    </message>
    <message>
        <source>no free address is left to pass through</source>
        <translation>keine freie Adresse für den Zwischenschritt ist übrig</translation>
    </message>
    <message>
        <source>no device with that serial answered</source>
        <translation>kein Gerät mit dieser Seriennummer antwortete</translation>
    </message>
    <message>
        <source>the serial answers on several interfaces; name one</source>
        <translation>die Seriennummer antwortet auf mehreren Schnittstellen; nennen Sie eine</translation>
    </message>
    <message>
        <source>another row moves a device to the same address</source>
        <translation>eine andere Zeile stellt ein Gerät auf dieselbe Adresse um</translation>
    </message>
    <message>
        <source>the device&apos;s interface is down; nothing was sent</source>
        <translation>die Schnittstelle des Geräts ist nicht aktiv; nichts wurde gesendet</translation>
    </message>
    <message>
        <source>another program is changing addresses on the interface</source>
        <translation>ein anderes Programm ändert Adressen auf der Schnittstelle</translation>
    </message>
    <message>
        <source>the journal cannot be written, where the move is recorded before it is sent</source>
        <translation>das Journal, in dem die Umstellung vor dem Senden festgehalten wird, lässt sich nicht schreiben</translation>
    </message>
    <message>
        <source>the device is not at the plan&apos;s from address: the plan is stale, or names another device</source>
        <translation>das Gerät ist nicht an der Ausgangsadresse des Plans: der Plan ist veraltet oder nennt ein anderes Gerät</translation>
    </message>
    <message>
        <source>this workstation has no such interface</source>
        <translation>dieser Arbeitsplatz hat keine solche Schnittstelle</translation>
    </message>
    <message>
        <source>not sent</source>
        <translation>nicht gesendet</translation>
    </message>
    <message>
        <source>another host answers for that address (%1)</source>
        <translation>ein anderer Rechner antwortet für diese Adresse (%1)</translation>
    </message>
    <message>
        <source>another program is changing addresses on the interface (%1)</source>
        <translation>ein anderes Programm ändert Adressen auf der Schnittstelle (%1)</translation>
    </message>
    <message>
        <source>the device is not at the plan&apos;s from address: the plan is stale, or names another device (%1)</source>
        <translation>das Gerät ist nicht an der Ausgangsadresse des Plans: der Plan ist veraltet oder nennt ein anderes Gerät (%1)</translation>
    </message>
    <message>
        <source>this workstation has no such interface (%1)</source>
        <translation>dieser Arbeitsplatz hat keine solche Schnittstelle (%1)</translation>
    </message>
    <message>
        <source>Serial answered from several addresses: %1</source>
        <translation>Seriennummer antwortete von mehreren Adressen: %1</translation>
    </message>
    <message>
        <source>wrong subnet: outside %1 on %2; it can be re-addressed, companion programs cannot reach it</source>
        <translation>falsches Subnetz: außerhalb von %1 auf %2; es lässt sich umadressieren, Begleitprogramme erreichen es nicht</translation>
    </message>
    <message>
        <source>address conflict: another device answers from this address</source>
        <translation>Adresskonflikt: ein anderes Gerät antwortet von dieser Adresse</translation>
    </message>
    <message>
        <source>searched on the routing table&apos;s interface only (no broadcast-capable IPv4 interface)</source>
        <translation>nur auf der Schnittstelle der Routingtabelle gesucht (keine broadcastfähige IPv4-Schnittstelle)</translation>
    </message>
    <message>
        <source>searched on %1</source>
        <translation>gesucht auf %1</translation>
    </message>
    <message>
        <source>%1 is up without an IPv4 address</source>
        <translation>%1 ist aktiv, aber ohne IPv4-Adresse</translation>
    </message>
    <message>
        <source>are the devices powered and cabled, and does a firewall block inbound UDP to this program (it must accept UDP from source port 4365; see README, Firewall)?</source>
        <translation>sind die Geräte eingeschaltet und verkabelt, und blockiert eine Firewall eingehendes UDP an dieses Programm (sie muss UDP vom Quellport 4365 annehmen; siehe README, Firewall)?</translation>
    </message>
    <message>
        <source>reverse-path filtering on %1 drops answers from addresses such as %2: no route back to them leads through it; turn the filter off there, or add a route to the devices&apos; subnet (ip route add SUBNET dev %1)</source>
        <translation>die Reverse-Path-Filterung auf %1 verwirft Antworten von Adressen wie %2: keine Route zu ihnen zurück führt über diese Schnittstelle; schalten Sie den Filter dort ab oder legen Sie eine Route zum Subnetz der Geräte an (ip route add SUBNET dev %1)</translation>
    </message>
    <message>
        <source>(--force swaps the two)</source>
        <translation>(--force tauscht die beiden)</translation>
    </message>
    <message>
        <source>(--force moves it anyway)</source>
        <translation>(--force stellt es trotzdem um)</translation>
    </message>
    <message>
        <source>moved back to %1, since %2 (line %3) did not move</source>
        <translation>zurück nach %1 umgestellt, da %2 (Zeile %3) nicht umgestellt wurde</translation>
    </message>
    <message>
        <source>waited for %1 (line %2), which did not move</source>
        <translation>wartete auf %1 (Zeile %2), das nicht umgestellt wurde</translation>
    </message>
    <message>
        <source>moved back to %1, since %2 did not move</source>
        <translation>zurück nach %1 umgestellt, da %2 nicht umgestellt wurde</translation>
    </message>
    <message>
        <source>waited for %1, which did not move</source>
        <translation>wartete auf %1, das nicht umgestellt wurde</translation>
    </message>
    <message>
        <source>%1 is held by %2</source>
        <translation>%1 ist von %2 belegt</translation>
    </message>
    <message>
        <source>moved back to %1: the run was interrupted</source>
        <translation>zurück nach %1 umgestellt: der Lauf wurde unterbrochen</translation>
    </message>
    <message>
        <source>the run was interrupted</source>
        <translation>der Lauf wurde unterbrochen</translation>
    </message>
    <message>
        <source>the run was cancelled</source>
        <translation>der Lauf wurde abgebrochen</translation>
    </message>
    <message>
        <source>refused with code %1</source>
        <translation>abgelehnt mit Code %1</translation>
    </message>
    <message>
        <source>refused without a code</source>
        <translation>abgelehnt ohne Code</translation>
    </message>
    <message>
        <source>acknowledged, but still answers at %1</source>
        <translation>bestätigt, antwortet aber noch unter %1</translation>
    </message>
    <message>
        <source>acknowledged, but not found at %1</source>
        <translation>bestätigt, aber nicht unter %1 gefunden</translation>
    </message>
    <message>
        <source>no answer, and not found at %1</source>
        <translation>keine Antwort, und nicht unter %1 gefunden</translation>
    </message>
    <message>
        <source>moved back to %1</source>
        <translation>zurück nach %1 umgestellt</translation>
    </message>
    <message>
        <source>last found at %1</source>
        <translation>zuletzt unter %1 gefunden</translation>
    </message>
    <message>
        <source>left at %1, the temporary address of its swap</source>
        <translation>auf %1 zurückgelassen, der Zwischenadresse seines Tauschs</translation>
    </message>
    <message>
        <source>found at %1</source>
        <translation>unter %1 gefunden</translation>
    </message>
    <message>
        <source>%1 may be held by %2</source>
        <translation>%1 ist womöglich von %2 belegt</translation>
    </message>
    <message>
        <source>orvane-cli apply --resume takes it on</source>
        <translation>orvane-cli apply --resume übernimmt es</translation>
    </message>
    <message>
        <source>not found by the last search</source>
        <translation>bei der letzten Suche nicht gefunden</translation>
    </message>
    <message>
        <source>no address in the plan: left as it is</source>
        <translation>keine Adresse im Plan: bleibt, wie es ist</translation>
    </message>
</context>
</TS>
