# The same across the machines listed in nodes.txt. jobs/ must be on a file system that every
# machine sees at the same path, and tarnfold must be installed on each machine. The model
# cache, model-cache/ beside jobs/, is on that file system too: every machine finds the models.
parallel --sshloginfile nodes.txt --workdir "$PWD" --timeout 3600 \
  --joblog tarnfold.joblog --resume-failed \
  'tarnfold --cache model-cache {} >{}/tarnfold.log 2>&1' ::: jobs/*/
