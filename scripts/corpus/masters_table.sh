# The corpus masters (tests/corpus/masters, written by masters.sh): pages,
# paper and colour of each, and the paper sizes in inches as printed on the
# sheet. Sourced by the corpus generators.
declare -A PAGES PAPER COLOR
while read -r name pages paper color; do
    PAGES[$name]=$pages PAPER[$name]=$paper COLOR[$name]=$color
done <<'MASTERS'
letter-memo-1 1 letter 0
a4-report-3 3 a4 1
legal-posters-2 2 legal 1
a4-handbook-27 27 a4 0
letter-drawings-4 4 letter 0
MASTERS
width() { case $1 in letter|legal) echo 8.5 ;; a4) echo 8.27 ;; esac; }
length() { case $1 in letter) echo 11 ;; legal) echo 14 ;; a4) echo 11.69 ;; esac; }
