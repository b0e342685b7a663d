# Every dataset under jobs/, as many runs at a time as this machine has cores, each run stopped
# after an hour. A run's messages go to tarnfold.log in its dataset, its exit status to
# tarnfold.joblog. The same command again runs only what failed or never ran.
parallel --timeout 3600 --joblog tarnfold.joblog --resume-failed \
  'tarnfold {} >{}/tarnfold.log 2>&1' ::: jobs/*/
