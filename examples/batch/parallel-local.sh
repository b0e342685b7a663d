# Every dataset under jobs/, as many runs at a time as this machine has cores, each run stopped
# after an hour. A run's messages go to tarnfold.log in its dataset, its exit status to
# tarnfold.joblog. Each model read is kept in model-cache/, where the runs of the other datasets
# that name it find it. The same command again runs only what failed or never ran.
parallel --timeout 3600 --joblog tarnfold.joblog --resume-failed \
  'tarnfold --cache model-cache {} >{}/tarnfold.log 2>&1' ::: jobs/*/
