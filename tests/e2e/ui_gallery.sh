# Every dialog template shown by the gallery over the frame, answered by the robot: the
# robot's log shows the texts and ids the user sees, and the button pressed is the result.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset
gallery=$KOV_WIN/gallery.exe

# template | button the robot presses ("close" = Escape) | result | texts the robot must see
while IFS='|' read -r name press result texts; do
    [ -z "$name" ] && continue
    if [ "$press" = close ]; then rule='class "#32770" => close'; else rule="class \"#32770\" => press $press"; fi
    run_with_robot "$rule" "$gallery" "$name"
    [ "$RUN_STATUS" = $((result & 255)) ] || fail "$name: result $RUN_STATUS, expected $result"
    IFS='^' read -ra wanted <<<"$texts"
    for t in "${wanted[@]}"; do [ -n "$t" ] && assert_robot_saw "$t"; done
    assert_robot_saw 'class="_KOVSETUP_Frame" caption="Configuration de KOV 3.0i avec IE 4.0"'
    cp "$ROBOT_LOG" "$KOV_OUT/robot-$name.log"
done <<'CASES'
RESID_DLG_PRINT|406|406|caption="Impression..."^CONTROL id=512 class="Static" text="Quick Reference Guide"^CONTROL id=406 class="Button" text="Annuler"
200|406|406|CONTROL id=502 class="_KOVSETUP_Gauge"^CONTROL id=503 class="Static" text="kov.exe"^CONTROL id=1005 class="Static" text="Fichier :"
201|401|401|caption="Bienvenue "^text="Cliquez sur ce bouton pour installer KOV.  "^CONTROL id=403 class="Button" text="&Quitter"
202|404|404|CONTROL id=501 class="Static" text="C:\KOV\IDB\MAIN.IDX"^CONTROL id=404 class="Button" text="&Ignorer la recherche"
203|403|403|CONTROL id=501 class="Static" text="Recherche du modem..."
204|405|405|text="Impossible de trouver votre modem."^CONTROL id=405 class="Button" text="&Réessayer"
205|407|407|text="Vous avez demandé à quitter le programme d'installation."^CONTROL id=407 class="Button" text="&Reprendre"
206|408|408|caption="Afficher"^CONTROL id=501 class="Edit" text="C:\KOV30I"^CONTROL id=409 class="Button" text="&Restaurer"
207|406|406|text="Transfert des paramètres d'une copie antérieure d'KOV."
208|409|409|text="Emplacement futur du nouveau programme KOV."^CONTROL id=408 class="Button" text="&Installer"
209|408|408|CONTROL id=406 class="Button" text="&Annuler"
210|close|406|CONTROL id=502 class="_KOVSETUP_Gauge"^text="Cette opération peut durer quelques instants."
211|408|408|CONTROL id=1003 class="Static" text="Votre écran ne peut fonctionner qu'en mode 16 couleurs."
212|408|408|text="Vous avez demandé l'interruption de l'installation."
213|408|408|text="Vous pouvez utiliser KOV !"
214|408|408|CONTROL id=2101 class="Static" text="Les paramètres de la version antérieure ont été transférés."
217|1|1|caption="Configuration d'KOV avec IE 4.0"^CONTROL id=505 class="Button" text="dans le menu Démarrer." checked
218|406|406|CONTROL id=408 class="Button" text="Redémarrer &maintenant"^CONTROL id=406 class="Button" text="Redémarrer &plus tard"
219|412|412|CONTROL id=513 class="Static" text="Insérez la disquette 2 du programme d'installation et cliquez sur OK pour continuer."
221|1|-1|
223|401|401|CONTROL id=508 class="Static" text="35 méga-octets disponibles."^CONTROL id=601 class="Button" text="10 méga-octets" checked
224|close|406|text="Veuillez patienter pendant l'ajout des éléments graphiques demandés."
225|close|406|text="Veuillez patienter pendant l'ajout des éléments graphiques."
226|413|413|text="Espace disque insuffisant pour installer KOV 3.0i. Souhaitez-vous installer KOV 3.0i pour Windows 3.1 ?"
227|414|414|CONTROL id=414 class="Button" text="&KOV95"
228|414|414|CONTROL id=414 class="Button" text="&KOV3.1"
229|408|408|CONTROL id=415 class="Button" text="Imprimer maintenant"
231|416|416|caption="KOV"^CONTROL id=516 class="Static" text="Espace disque insuffisant pour installer KOV. 31457280 octets au minimum doivent être libres.\n\n"^CONTROL id=417 class="Button" text="&Try Again"
232|418|418|ITEM id=519 index=0 text="C:\t\tLocal\t1,843,200" selected^CONTROL id=520 class="Edit" text="Available Drives\tType\tFree Space(KB)"
233|406|406|caption="Setup"^CONTROL id=406 class="Button" text="Restart &Later"
235|401|401|ITEM id=521 index=0 text="Lecteur d'animations" selected
CASES
note "every template answered"
