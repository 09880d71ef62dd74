# The robot answers message boxes and dialogs by rule and logs what it saw, in UTF-8.
. "$KOV_SRC/tests/e2e/lib.sh"
machine_reset
asker=$KOV_WIN/asker.exe

# Message boxes: flags, rules (\n between rules), expected result.
while IFS='|' read -r flags rules want; do
    run_with_robot "$(printf '%b' "$rules")" "$asker" box "$flags" "Voulez-vous réessayer ?"
    grep -qx "RESULT=$want" "$KOV_OUT/run-$KOV_RUNS.out" || fail "box $flags with '$rules': got $(cat "$KOV_OUT/run-$KOV_RUNS.out")"
    assert_robot_saw 'CONTROL id=65535 class="Static" text="Voulez-vous réessayer ?"'
done <<'CASES'
0|caption "Installation" => press 1|1
4|text "réessayer" => press 7|7
4|id 6 => wait 100 press 6|6
5|caption "Nothing like it" => press 2\n* => press 4|4
5|# a comment\n\nclass "#32770" => close|2
CASES

# A box owned by a window that appeared in the same look is still answered.
run_with_robot 'text "réessayer" => press 4' "$asker" owned 5 "Voulez-vous réessayer ?"
grep -qx "RESULT=4" "$KOV_OUT/run-$KOV_RUNS.out" || fail "owned box: got $(cat "$KOV_OUT/run-$KOV_RUNS.out")"

# A dialog: the first Suivant with an empty field brings an error box; once it is answered
# the dialog is enabled again and answered by the next rule.
run_with_robot "$(cat <<'RULES'
caption "Formulaire" max 1 => press 400
text "Le champ est vide" => press 1
caption "Formulaire" => type 501 "C:\KOV Test" check 505 check 602 select 520 2 select 530 1 press 400
RULES
)" "$asker" form
out=$(cat "$KOV_OUT/run-$KOV_RUNS.out")
for line in 'EDIT=C:\KOV Test' CHECK=1 RADIO=602 LIST=2 COMBO=1 RESULT=400; do
    grep -qxF "$line" <<<"$out" || fail "form: no $line in: $out"
done
assert_robot_saw 'caption="Formulaire"'
assert_robot_saw 'CONTROL id=505 class="Button" text="Menu Démarrer"'
assert_robot_saw 'CONTROL id=600 class="Button" text="5 Mo" checked'
assert_robot_saw 'ITEM id=520 index=2 text="D:"'
assert_robot_saw 'ITEM id=530 index=0 text="5 Mo" selected'
assert_robot_saw 'owner="#32770"'
[ "$(grep -c '^RULE ' "$ROBOT_LOG")" = 3 ] || fail "expected three answers"
[ "$ROBOT_STATUS" = 0 ] || fail "robot ended with $ROBOT_STATUS"
