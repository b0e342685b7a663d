mkdir -p logs
# binds.txt: the directories that the datasets and their models lie in, one a line.
export TARNFOLD_BIND=$(paste -sd, binds.txt)
jobid=$(sbatch --parsable --array=1-"$(ls groups | wc -l)"%100 tarnfold-groups-apptainer.sbatch)
