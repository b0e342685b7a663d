# Once job $jobid has ended: its tasks that did not exit with status 0, and their datasets.
sacct --jobs="$jobid" --allocations --noheader --parsable2 --format=JobID,State,ExitCode |
  while IFS='|' read -r task state exitcode; do
    n=${task#*_}
    [ "$exitcode" = 0:0 ] || echo "task $n: $state, exit $exitcode: $(sed -n "${n}p" datasets.txt)"
  done
