# Once job $jobid has ended: the datasets whose row is not ok, with their status, from the tables
# of its tasks. Their error lines are in the tasks' .log files, each after the dataset's root.
awk -F'\t' 'FNR > 1 && $2 != "ok" { print $2 "\t" $1 }' logs/tarnfold-groups-"$jobid"_*.tsv
