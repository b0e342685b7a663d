# One tarnfold-batch run per group of groups/, at most 2 at a time on each machine of nodes.txt:
# each run holds its model in memory (about 25 MiB per 1,000 faces), so --jobs is set by memory
# as much as by cores. Each group's table and messages go to results/; the same command again
# runs only the groups that failed or never ran, taking their models from model-cache/.
mkdir -p results
parallel --sshloginfile nodes.txt --workdir "$PWD" --jobs 2 \
  --joblog groups.joblog --resume-failed \
  'tarnfold-batch --cache model-cache --timeout 3600 --from {} >results/{/}.tsv 2>results/{/}.log' ::: groups/*
