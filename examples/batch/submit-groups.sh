mkdir -p logs
jobid=$(sbatch --parsable --array=1-"$(ls groups | wc -l)"%100 tarnfold-groups.sbatch)
